#include <windows.h>

#include <bcrypt.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "download/Md5.h"
#include "utils/TextConversion.h"
#include "utils/UniqueHandle.h"

namespace {

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using UniqueAlgorithm = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, AlgorithmCloser>;

struct HashDestroyer {
    void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};
using UniqueHash = std::unique_ptr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, HashDestroyer>;

// Large enough that the hash, not the reads, bounds the speed; small enough to stay off
// the heap's large-block path.
constexpr DWORD kBlockSize = 64 * 1024;

std::string HexText(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace

std::string GetFileMd5(const std::wstring& path) {
    if (path.empty()) {
        return std::string();
    }
    Utils::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return std::string();
    }
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        return std::string();
    }
    UniqueAlgorithm algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &rawHash, nullptr, 0, nullptr, 0, 0))) {
        return std::string();
    }
    UniqueHash hash(rawHash);

    std::vector<unsigned char> block(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), block.data(), kBlockSize, &read, nullptr)) {
            return std::string();
        }
        if (read == 0) {
            break;
        }
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), block.data(), read, 0))) {
            return std::string();
        }
    }
    unsigned char digest[16] = {};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest, sizeof(digest), 0))) {
        return std::string();
    }
    return HexText(digest, sizeof(digest));
}

std::string GetFileMd5(const std::string& path) {
    if (path.empty()) {
        return std::string();
    }
    return GetFileMd5(Utils::ToWide(path, Utils::kCodePageAnsi));
}
