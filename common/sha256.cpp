// SPDX-License-Identifier: GPL-2.0-or-later
#include "sha256.h"

#include <nettle/sha2.h>

#include <array>

#include "file_io.h"

namespace tarnwick {

namespace {

std::string DigestText(sha256_ctx& context) {
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context, digest.size(), digest.data());
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    return DigestText(context);
}

std::optional<std::string> FileSha256Hex(const std::filesystem::path& path) {
    sha256_ctx context{};
    sha256_init(&context);
    const std::error_code error = ReadFileInPieces(
        path, [&context](std::span<const std::uint8_t> piece) { sha256_update(&context, piece.size(), piece.data()); });
    if (error) {
        return std::nullopt;
    }
    return DigestText(context);
}

}  // namespace tarnwick
