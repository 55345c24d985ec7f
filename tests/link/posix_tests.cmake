set(LOAMER_POSIX_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/posix_backend_test.cpp ${CMAKE_CURRENT_LIST_DIR}/port_list_test.cpp ${CMAKE_CURRENT_LIST_DIR}/port_access_test.cpp)
