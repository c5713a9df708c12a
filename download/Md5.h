#pragma once
// The package's digest: the one the distributor puts in the final address, and the one of
// the file we received. Both are 32 lower-case hexadecimal digits when known, empty when not.

#include <string>

// The address's second-to-last path segment (the folder that holds the package), without
// any check of its form; callers accept it only when IsDigestText holds. Query and fragment
// are not part of the path, so a "/" inside them does not move the segment.
std::string GetUrlMd5(const std::string& address);

// Exactly 32 characters: the only digest form the downloaders compare.
bool IsDigestText(const std::string& text);

// Whether the digest from the address and the computed one differ. Compared byte for byte:
// a digest in capitals never matches. An empty computed digest counts as a match, because
// an unreadable file already shows up elsewhere and must not turn into a retry loop.
bool DigestMismatch(const std::string& expected, const std::string& computed);

#ifdef _WIN32
// MD5 of a file read in blocks (never held in memory); empty for an empty path, a file that
// cannot be opened or read, or a failure of the system's hash provider. The narrow path is
// in the ANSI code page.
std::string GetFileMd5(const std::string& path);
std::string GetFileMd5(const std::wstring& path);
#endif
