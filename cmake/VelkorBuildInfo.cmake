# The program's version record, its contact addresses and the built-in manual, compiled into
# the core as one generated source. Set the cache variables to brand a build:
#   cmake -DVELKOR_VERSION_COMMENT="..." -DVELKOR_TECHNICAL_MAIL=... ...
# The version itself is the project's VERSION and nothing else: the programs' --version, the
# Version window, the package and the desktop metadata all read it from there.

set(_velkor_patch "${PROJECT_VERSION_PATCH}")
set(_velkor_tweak "${PROJECT_VERSION_TWEAK}")
if(_velkor_patch STREQUAL "")
  set(_velkor_patch 0)
endif()
if(_velkor_tweak STREQUAL "")
  set(_velkor_tweak 0)
endif()

# The Version window's four numbers (major.minor.patch.build). No longer a cache entry: a
# build tree branded with an older number must not keep showing it.
unset(VELKOR_FILE_VERSION CACHE)
set(VELKOR_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${_velkor_patch}.${_velkor_tweak}")
set(VELKOR_VERSION_COMMENT "Decoder of digital lines for the Kivo module"
    CACHE STRING "Comment shown under the version")
set(VELKOR_TECHNICAL_MAIL "hotline@example.com" CACHE STRING "Mail address for technical questions")
set(VELKOR_TECHNICAL_WEB "https://www.example.com/velkor" CACHE STRING "Web site for technical help")
set(VELKOR_COMMERCIAL_MAIL "sales@example.com" CACHE STRING "Mail address of the commercial service")
set(VELKOR_COMMERCIAL_WEB "https://www.example.com/kivo" CACHE STRING "Web site of the commercial service")

function(velkor_c_string out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

# The installed program finds its shared files from its own folder, so the tree can be
# installed under any prefix (or DESTDIR) and still work.
include(GNUInstallDirs)
file(RELATIVE_PATH VELKOR_BIN_TO_DATA "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_DATADIR}/velkor")
velkor_c_string(VELKOR_BIN_TO_DATA_C "${VELKOR_BIN_TO_DATA}")
velkor_c_string(VELKOR_SOURCE_DATA_C "${PROJECT_SOURCE_DIR}")
velkor_c_string(VELKOR_PACKAGE_VERSION_C "${PROJECT_VERSION}")
velkor_c_string(VELKOR_FILE_VERSION_C "${VELKOR_FILE_VERSION}")
velkor_c_string(VELKOR_VERSION_COMMENT_C "${VELKOR_VERSION_COMMENT}")
velkor_c_string(VELKOR_TECHNICAL_MAIL_C "${VELKOR_TECHNICAL_MAIL}")
velkor_c_string(VELKOR_TECHNICAL_WEB_C "${VELKOR_TECHNICAL_WEB}")
velkor_c_string(VELKOR_COMMERCIAL_MAIL_C "${VELKOR_COMMERCIAL_MAIL}")
velkor_c_string(VELKOR_COMMERCIAL_WEB_C "${VELKOR_COMMERCIAL_WEB}")

# The manual goes in as bytes, so nothing in its text needs escaping. Editing it reconfigures.
set(VELKOR_MANUAL "${PROJECT_SOURCE_DIR}/docs/manual.rtf")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VELKOR_MANUAL}")
file(READ "${VELKOR_MANUAL}" _velkor_manual_hex HEX)
string(LENGTH "${_velkor_manual_hex}" _velkor_manual_hex_length)
math(EXPR VELKOR_MANUAL_SIZE "${_velkor_manual_hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," VELKOR_MANUAL_BYTES "${_velkor_manual_hex}")
# Lines of 32 bytes keep the generated file readable.
string(REGEX REPLACE "((0x..,){32})" "\\1\n" VELKOR_MANUAL_BYTES "${VELKOR_MANUAL_BYTES}")

set(VELKOR_BUILD_INFO_SOURCE "${PROJECT_BINARY_DIR}/generated/BuildInfo.cpp")
configure_file("${PROJECT_SOURCE_DIR}/src/app/BuildInfo.cpp.in" "${VELKOR_BUILD_INFO_SOURCE}" @ONLY)
