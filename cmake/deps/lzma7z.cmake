# The 7z reader from the LZMA SDK in Debian's 7zip source package, built by our
# own project in lzma7z/ because the SDK has no CMake build.
set(dep_package 7zip)
# lzma7z/CMakeLists.txt lists the SDK's 26.x file set.
set(dep_version_regex "^26\\.")
set(dep_project lzma7z)
set(dep_cmake_args "")
set(dep_outputs lib/liblzma7z.a include/lzma7z/7z.h include/lzma7z/7zCrc.h)
