# Third-party dependencies, all from Debian packages (see scripts/install-deps).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# FreeTDS DB-Library (freetds-dev ships no pkg-config file for libsybdb).
find_path(SYBDB_INCLUDE_DIR sybdb.h REQUIRED)
find_library(SYBDB_LIBRARY sybdb REQUIRED)
add_library(kw::sybdb UNKNOWN IMPORTED)
set_target_properties(kw::sybdb PROPERTIES
  IMPORTED_LOCATION ${SYBDB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${SYBDB_INCLUDE_DIR})

find_package(PostgreSQL REQUIRED)
find_package(fmt REQUIRED)

if(KW_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(KW_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

# The shared declarations of the host interface (records, constants, host services, USER).
add_library(kw_headers INTERFACE)
add_library(kw::headers ALIAS kw_headers)
target_include_directories(kw_headers INTERFACE ${CMAKE_SOURCE_DIR}/db/ods/include)
