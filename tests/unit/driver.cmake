# Unit tests of the driver: they link the driver's objects directly, with the real host libraries.
foreach(name router diag exec results convert connect dialogs ods_catalog types procs ddl_gen extcatalog attributes security)
  kw_add_test(${name}_test LABEL unit SOURCES ${name}_test.cpp LIBS kwtdx_core)
  target_include_directories(${name}_test PRIVATE ${CMAKE_SOURCE_DIR}/db/ods ${CMAKE_CURRENT_SOURCE_DIR})
endforeach()

# The module exports exactly its host entries and nothing else.
add_test(NAME driver_exports
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:kwtdx050>
          -DEXPECTED=${CMAKE_SOURCE_DIR}/db/ods/exports.map
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.cmake)
set_tests_properties(driver_exports PROPERTIES LABELS unit)
