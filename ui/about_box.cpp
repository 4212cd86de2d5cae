#include "about_box.h"

#include <QLabel>
#include <QPushButton>

#include "program_icon.h"

namespace tarnwick {
namespace {

constexpr DialogRect kClientSize{0, 0, 232, 54};

constexpr ControlRow kControls[] = {
    {kNoId, ControlKind::Icon, "", {12, 17, 20, 20}},
    {IdAboutText, ControlKind::Label, "", {48, 6, 114, 42}},
    {IdOk, ControlKind::DefaultButton, "OK", {174, 20, 50, 14}},
};

}  // namespace

AboutBox::AboutBox(QWidget* owner, const VersionRecord& record) : QDialog(owner) {
    setWindowTitle(kAboutCaption);
    setWindowIcon(programIcon());
    const DialogUnits units(font());
    controls_ = std::make_unique<ControlSet>(*this, kControls, units);
    setFixedSize(units.toPixels(kClientSize.width, kClientSize.height));
    controls_->get<QLabel>(IdAboutText)->setText(QString::fromLocal8Bit(aboutText(record)));
    connect(controls_->get<QPushButton>(IdOk), &QPushButton::clicked, this, &QDialog::accept);
}

AboutBox::~AboutBox() = default;

}  // namespace tarnwick
