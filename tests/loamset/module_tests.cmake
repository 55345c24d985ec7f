# The module's own tests (included by tests/comrt, whose runtime they exercise too): the module is
# loaded as a client loads it, from the build tree's lib/ folder, with a private classes root.
set(dir ${PROJECT_SOURCE_DIR}/tests/loamset)
add_executable(loamset_module_tests
  ${dir}/module_registration_test.cpp
  ${dir}/module_lifetime_test.cpp
  ${dir}/module_client_test.cpp
  ${dir}/module_c_client.c
)
find_package(nlohmann_json CONFIG REQUIRED)
target_link_libraries(loamset_module_tests PRIVATE comrt loamer_test_support GTest::gtest_main ${CMAKE_DL_LIBS}
                      nlohmann_json::nlohmann_json loamer_warnings)
target_compile_definitions(loamset_module_tests PRIVATE
  LOAMSET_MODULE="$<TARGET_FILE:loamset>"
  LOAMSET_BUILD_IDL="${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_DATADIR}/loamset/loamset.idl"
  LOAMSET_BUILD_HEADER="${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_INCLUDEDIR}/loamset/kxdataset.h"
  LOAMSET_DUMP="$<TARGET_FILE:loamset-dump>"
  COMRT_REGSVR="$<TARGET_FILE:regsvr>"
  LOAMSET_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
add_dependencies(loamset_module_tests loamset loamset-dump regsvr)
gtest_discover_tests(loamset_module_tests PROPERTIES LABELS loamset ENVIRONMENT COMRT_SYSTEM_CLASSES= DISCOVERY_TIMEOUT 60)
