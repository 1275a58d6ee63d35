// sql_files.h - the gateway's SQL files, compiled into the binary for `kwgateway init`.
//
// The table is generated at build time from gateway/sql/NN-*.sql, sorted by file name, which is
// the order init runs them in. Each entry holds the file's name and its exact bytes.
#pragma once

#include <cstddef>

namespace gw::sqlfiles {

struct File {
    const char* name;
    const unsigned char* data;
    size_t size;
};

extern const File kFiles[];
extern const size_t kCount;

}  // namespace gw::sqlfiles
