# libcurl for the downloader: HTTP, HTTPS and file:// only, TLS through Schannel
# so that certificates are checked against the Windows trust store. Everything
# that could pull in another library or another protocol is switched off by
# name, so that whatever happens to be installed on the build machine cannot
# change what we ship.
set(dep_package curl)
set(dep_version_regex "^7\\.88\\.")
set(dep_cmake_args
  -DBUILD_SHARED_LIBS=OFF
  -DBUILD_TESTING=OFF
  -DENABLE_MANUAL=OFF
  -DPICKY_COMPILER=OFF
  -DCURL_WERROR=OFF
  -DENABLE_CURLDEBUG=OFF
  -DENABLE_DEBUG=OFF
  # Dependencies.cmake reads libcurl's system libraries from the exported targets.
  -DCURL_ENABLE_EXPORT_TARGET=ON

  -DCURL_ENABLE_SSL=ON
  -DCURL_USE_SCHANNEL=ON
  -DCURL_USE_OPENSSL=OFF
  -DCURL_USE_MBEDTLS=OFF
  -DCURL_USE_BEARSSL=OFF
  -DCURL_USE_NSS=OFF
  -DCURL_USE_WOLFSSL=OFF
  # Left on "auto", curl finds the build machine's /etc/ssl/certs bundle and
  # compiles that path in as the default CA file, which on Windows names nothing
  # and would make Schannel fail every verification instead of using the store.
  -DCURL_CA_BUNDLE=none
  -DCURL_CA_PATH=none
  -DCURL_CA_FALLBACK=OFF

  # The same oldest Windows as our own code, so libcurl calls nothing Windows 7 lacks.
  -DCMAKE_C_FLAGS=-D_WIN32_WINNT=0x0601

  -DENABLE_IPV6=ON
  # Wide-character Win32 calls: file:// paths and the tool's arguments are UTF-8,
  # not the ANSI code page, so non-ASCII user folders work.
  -DENABLE_UNICODE=ON

  # HTTP_ONLY would also drop file://, so every other protocol is named instead.
  -DHTTP_ONLY=OFF
  -DCURL_DISABLE_HTTP=OFF
  -DCURL_DISABLE_FILE=OFF
  -DCURL_DISABLE_DICT=ON
  -DCURL_DISABLE_FTP=ON
  -DCURL_DISABLE_GOPHER=ON
  -DCURL_DISABLE_IMAP=ON
  -DCURL_DISABLE_LDAP=ON
  -DCURL_DISABLE_LDAPS=ON
  -DCURL_DISABLE_MQTT=ON
  -DCURL_DISABLE_POP3=ON
  -DCURL_DISABLE_RTSP=ON
  -DCURL_DISABLE_SMB=ON
  -DCURL_DISABLE_SMTP=ON
  -DCURL_DISABLE_TELNET=ON
  -DCURL_DISABLE_TFTP=ON
  -DENABLE_WEBSOCKETS=OFF

  # No third-party libraries: the MinGW zlib that Debian installs would
  # otherwise be found and linked.
  -DCURL_ZLIB=OFF
  -DCURL_BROTLI=OFF
  -DCURL_ZSTD=OFF
  -DUSE_NGHTTP2=OFF
  -DUSE_NGTCP2=OFF
  -DUSE_QUICHE=OFF
  -DUSE_MSH3=OFF
  -DCURL_USE_LIBSSH2=OFF
  -DCURL_USE_LIBSSH=OFF
  -DCURL_USE_GSSAPI=OFF
  -DUSE_LIBIDN2=OFF
  -DUSE_WIN32_IDN=OFF
  -DCURL_USE_LIBPSL=OFF
  -DENABLE_ARES=OFF
  # curl probes for winmm by linking getch(), which the C runtime provides, so
  # the probe always succeeds and winmm ends up in the link interface although
  # libcurl calls nothing in it.
  -DHAVE_LIBWINMM=OFF)

set(dep_outputs lib/libcurl.a include/curl/curl.h lib/cmake/CURL/CURLTargets.cmake)

# The 64-bit build also yields curl.exe, the peer our download benchmarks are
# measured against. -static keeps the MinGW runtime DLLs from having to sit
# beside it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND dep_cmake_args -DBUILD_CURL_EXE=ON -DCMAKE_EXE_LINKER_FLAGS=-static)
  list(APPEND dep_outputs bin/curl.exe)
else()
  list(APPEND dep_cmake_args -DBUILD_CURL_EXE=OFF)
endif()
