# Discovery's volume sources over the simulated stack.
target_sources(kv_native_tests PRIVATE volume_source_test.cpp)

# The Linux backend behind its own seam (fake kernel), and librkm51.so as an
# installed package that a C program finds with pkg-config.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(kv_linux_tests
    fake_kernel.cpp
    linux_sg_io_test.cpp
    linux_discovery_test.cpp)
  target_link_libraries(kv_linux_tests PRIVATE devcmd_linux GTest::gtest_main)
  gtest_discover_tests(kv_linux_tests DISCOVERY_MODE PRE_TEST)

  find_program(KV_PKG_CONFIG pkg-config REQUIRED)
  set(kv_consumer_flags "")
  if(KV_SANITIZE)
    set(kv_consumer_flags "-fsanitize=address,undefined -fno-sanitize-recover=all")
  endif()
  add_test(NAME rkm51_so_consumer
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/rkm51_consumer_test.sh
            ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/rkm51_consumer
            ${CMAKE_COMMAND} ${CMAKE_C_COMPILER} ${KV_PKG_CONFIG} ${CMAKE_SOURCE_DIR}/devcmd "${kv_consumer_flags}")
endif()
