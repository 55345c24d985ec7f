# The viewer's window, chart and program, on the offscreen platform, through the real dataset
# module (named by path: no classes root is needed).
if(NOT LOAMER_BUILD_GUI OR NOT TARGET loamset-view)
  return()
endif()

set(dir ${PROJECT_SOURCE_DIR}/tests/viewer)
add_executable(viewer_gui_tests
  ${dir}/gui_test_main.cpp
  ${dir}/gui_window_test.cpp
  ${dir}/gui_chart_test.cpp
  ${dir}/gui_program_test.cpp
)
target_link_libraries(viewer_gui_tests PRIVATE loamset_view_gui loamer_test_support GTest::gtest Qt6::Test
                      loamer_warnings)
target_compile_definitions(viewer_gui_tests PRIVATE
  LOAMSET_MODULE="$<TARGET_FILE:loamset>"
  LOAMSET_VIEW="$<TARGET_FILE:loamset-view>")
add_dependencies(viewer_gui_tests loamset loamset-view)
# A zone far from UTC: the chart must still read the meter's clock as the file holds it.
gtest_discover_tests(viewer_gui_tests PROPERTIES
  LABELS viewer
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=Pacific/Auckland"
  DISCOVERY_TIMEOUT 60)
