# Writes a C++ source that holds the given SQL files as byte arrays, in the order given.
# Called at build time: cmake -DOUTPUT=file.cpp -DFILES="a.sql;b.sql" -P embed_sql.cmake
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "static const unsigned char kData${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"${name}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
  set(table "    {\"\", nullptr, 0},\n")
endif()
file(WRITE ${OUTPUT}.tmp
"// Generated from gateway/sql by embed_sql.cmake; do not edit.\n"
"#include \"sql_files.h\"\n"
"namespace gw::sqlfiles {\n"
"${body}"
"const File kFiles[] = {\n${table}};\n"
"const size_t kCount = ${index};\n"
"}  // namespace gw::sqlfiles\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
