# loamset-view's window and program (Qt 6 Widgets, Charts and Svg), on the core library
# loamset_view_core. Qt Charts is licensed under the GPL-3, so the program is distributed under it.
if(NOT LOAMER_BUILD_GUI)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Widgets Charts Svg)
find_package(CLI11 CONFIG REQUIRED)

set(dir ${PROJECT_SOURCE_DIR}/tools/loamset-view)
# The window's parts live in a library so that the tests link them as the program does.
add_library(loamset_view_gui STATIC
  ${dir}/load_job.cpp ${dir}/load_job.h
  ${dir}/readings_model.cpp ${dir}/readings_model.h
  ${dir}/series_tree.cpp ${dir}/series_tree.h
  ${dir}/readings_chart.cpp ${dir}/readings_chart.h
  ${dir}/chart_export.cpp ${dir}/chart_export.h
  ${dir}/recent_files.cpp ${dir}/recent_files.h
  ${dir}/viewer_window.cpp ${dir}/viewer_window.h
)
set_target_properties(loamset_view_gui PROPERTIES AUTOMOC ON)
target_include_directories(loamset_view_gui PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(loamset_view_gui PUBLIC loamset_view_core Qt6::Widgets Qt6::Charts Qt6::Svg
                      PRIVATE loamer_warnings)

add_executable(loamset-view ${dir}/main.cpp)
target_link_libraries(loamset-view PRIVATE loamset_view_gui CLI11::CLI11 loamer_warnings)

install(TARGETS loamset-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
