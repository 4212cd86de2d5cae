// SPDX-License-Identifier: GPL-2.0-or-later
// A scratch folder for the fuzz targets whose readers take a file: in memory
// where the system offers it, so that the atomic replace's flush costs nothing.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace tarnwick::fuzzing {

class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        const bool inMemory = std::filesystem::is_directory("/dev/shm", error);
        path_ = (inMemory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
                ("tarnwick-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // A run that ends by exit clears up; one that crashes leaves its files.
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    std::filesystem::path write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return file;
    }

private:
    std::filesystem::path path_;
};

// The process's one scratch folder.
inline const ScratchFolder& Scratch() {
    static const ScratchFolder folder;
    return folder;
}

}  // namespace tarnwick::fuzzing
