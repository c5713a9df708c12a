# GoogleTest and GoogleMock for the Windows test programs, from the sources that
# Debian's googletest package (pulled in by libgtest-dev) installs.
set(dep_source_dir /usr/src/googletest)
set(dep_source_package googletest)
set(dep_version_regex "^1\\.")
set(dep_cmake_args
  -DBUILD_SHARED_LIBS=OFF
  -DBUILD_GMOCK=ON
  -DINSTALL_GTEST=ON
  -Dgtest_build_tests=OFF
  -Dgtest_build_samples=OFF
  -Dgmock_build_tests=OFF)
# googletest uses Win32 threads on MinGW whatever the thread model of the
# compiler, so the posix-thread toolchain needs nothing extra here.
set(dep_outputs
  lib/libgtest.a lib/libgtest_main.a lib/libgmock.a lib/libgmock_main.a
  include/gtest/gtest.h include/gmock/gmock.h)
