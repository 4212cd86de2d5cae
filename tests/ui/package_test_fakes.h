// SPDX-License-Identifier: GPL-2.0-or-later
// Answers to the package commands' dialogs and questions, given in advance,
// a record of what the commands showed and asked, and image types by name.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "catalogues.h"
#include "package_commands.h"

namespace tarnwick::testing {

inline const ImageType& TypeNamed(std::string_view name) {
    return *FindImageTypeByName(name);
}

class ScriptedDialogs final : public PackageDialogs {
public:
    std::optional<std::string> askNewPackageName() override { return take(names); }
    std::optional<std::string> chooseFile(const FileDialogRequest& dialog, const std::string& initialFile) override {
        fileDialogs.emplace_back(std::string(dialog.caption), initialFile);
        if (whileChoosingFile) {
            whileChoosingFile();
        }
        return take(files);
    }
    std::optional<std::string> chooseNewFile(const FileDialogRequest& dialog) override {
        fileDialogs.emplace_back(std::string(dialog.caption), "");
        return take(files);
    }
    std::optional<Guid> chooseAvailableItem() override { return take(types); }

    // Answers in order; an exhausted queue answers as "Cancel" does.
    std::deque<std::optional<std::string>> names;
    std::deque<std::optional<std::string>> files;
    std::deque<std::optional<Guid>> types;
    // Caption and initial file of each file dialog shown.
    std::vector<std::pair<std::string, std::string>> fileDialogs;
    // Runs while a file dialog is open, to do what a real one does meanwhile.
    std::function<void()> whileChoosingFile;

private:
    template <typename Answer>
    static std::optional<Answer> take(std::deque<std::optional<Answer>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<Answer> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class RecordingMessages final : public UserMessages {
public:
    // Text, caption, icon.
    using Shown = std::tuple<std::string, std::string, MessageIcon>;

    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        shown.emplace_back(text, caption, icon);
    }
    MessageAnswer ask(std::string_view text, std::string_view caption, MessageIcon icon, MessageButtons) override {
        asked.emplace_back(text, caption, icon);
        return answer;
    }

    std::vector<Shown> shown;
    std::vector<Shown> asked;
    MessageAnswer answer = MessageAnswer::Ok;
};

}  // namespace tarnwick::testing
