// SPDX-License-Identifier: GPL-2.0-or-later
// Folders and files that exist for one test and are gone after it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::testing {

class TemporaryFolder {
public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes the file (creating its folders) and returns its path.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const;
    std::filesystem::path write(std::string_view name, std::span<const std::uint8_t> bytes) const;

private:
    std::filesystem::path path_;
};

// The whole file; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

// Points $TARNWICK_PORTS at a folder of its own while it lives, so port
// aliases made by a test are seen by no one else.
class TemporaryPortFolder {
public:
    TemporaryPortFolder();
    ~TemporaryPortFolder();
    TemporaryPortFolder(const TemporaryPortFolder&) = delete;
    TemporaryPortFolder& operator=(const TemporaryPortFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return folder_.path(); }
    // Adds COM<portNumber> pointing at target.
    void addAlias(int portNumber, const std::filesystem::path& target) const;

private:
    TemporaryFolder folder_;
};

}  // namespace tarnwick::testing
