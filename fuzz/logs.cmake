# Fuzz target of the log reader. The reader's sources are compiled into the target itself so
# that libFuzzer's coverage instrumentation reaches them (kestrix_core is built without it).
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(_logs_src ${CMAKE_CURRENT_LIST_DIR}/../src)
  add_executable(log_reader_fuzz
    ${CMAKE_CURRENT_LIST_DIR}/log_reader_fuzz.cpp
    ${_logs_src}/logs/log_reader.cpp
    ${_logs_src}/logs/log_format.cpp
    ${_logs_src}/util/numbers.cpp)
  target_include_directories(log_reader_fuzz PRIVATE ${_logs_src})
  target_compile_options(log_reader_fuzz PRIVATE -fsanitize=fuzzer,address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  target_link_options(log_reader_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(log_reader_fuzz PRIVATE Qt6::Core kestrix_warnings)
else()
  message(STATUS "log_reader_fuzz needs clang; skipped")
endif()
