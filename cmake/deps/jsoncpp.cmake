# jsoncpp from Debian's libjsoncpp source package, with its own CMake build.
set(dep_package libjsoncpp)
set(dep_version_regex "^1\\.9\\.")
set(dep_cmake_args
  -DBUILD_SHARED_LIBS=OFF
  -DBUILD_STATIC_LIBS=ON
  -DBUILD_OBJECT_LIBS=OFF
  -DJSONCPP_WITH_TESTS=OFF
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF
  -DJSONCPP_WITH_EXAMPLE=OFF
  -DJSONCPP_WITH_WARNING_AS_ERROR=OFF
  -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
  # Dependencies.cmake defines the imported target itself.
  -DJSONCPP_WITH_CMAKE_PACKAGE=OFF)
set(dep_outputs lib/libjsoncpp.a include/json/json.h include/json/reader.h)
