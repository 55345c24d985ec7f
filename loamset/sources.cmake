# The component's sources, shared by the Linux build (loamset/CMakeLists.txt) and the Windows
# cross-build (loamset/windows/CMakeLists.txt), relative to loamset/.  Each platform adds its own
# side of the seams: posix/ or windows/.
set(LOAMSET_READER_SOURCES
  dataset.cpp
  dataset_reader.cpp
  dataset_cells.cpp
  dataset_keywords.cpp
  dataset_pools.cpp
  dataset_series.cpp
  dataset_values.cpp
  dataset_index.cpp
  dataset_state.cpp
)
set(LOAMSET_MODULE_SOURCES module.cpp class_factory.cpp registration.cpp)
