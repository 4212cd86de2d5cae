// SPDX-License-Identifier: GPL-2.0-or-later
#include "temporary_folder.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarnwick::testing {

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TemporaryFolder::write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::filesystem::path TemporaryFolder::write(std::string_view name, std::span<const std::uint8_t> bytes) const {
    return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

TemporaryPortFolder::TemporaryPortFolder() { ::setenv("TARNWICK_PORTS", folder_.path().c_str(), 1); }

TemporaryPortFolder::~TemporaryPortFolder() { ::unsetenv("TARNWICK_PORTS"); }

void TemporaryPortFolder::addAlias(int portNumber, const std::filesystem::path& target) const {
    std::filesystem::create_symlink(target, folder_.path() / ("COM" + std::to_string(portNumber)));
}

}  // namespace tarnwick::testing
