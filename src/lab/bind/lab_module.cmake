# corvanta_lab._core: the lab's native part, built with nanobind on the same core library.
# Included after the `corvanta` module (which finds the Python development files).
if(NOT nanobind_DIR)
  execute_process(COMMAND "${Python_EXECUTABLE}" -m nanobind --cmake_dir
                  OUTPUT_VARIABLE nanobind_DIR OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
find_package(nanobind CONFIG QUIET)
if(NOT nanobind_FOUND)
  message(WARNING "nanobind was not found: corvanta_lab._core is not built")
  return()
endif()

# Conversions only: the engine is the corvanta_lab_engine library.
file(GLOB LAB_BINDING_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/lab/bind/*.cpp)
# NOMINSIZE: the lab steps games in tight loops; it is built for speed like the core, not for size.
nanobind_add_module(corvanta_lab_core NB_STATIC NOMINSIZE ${LAB_BINDING_SOURCES})
# Laid out as a package in the build tree too, so that the stubs can import it from there.
set_target_properties(corvanta_lab_core PROPERTIES OUTPUT_NAME _core
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/corvanta_lab)
target_link_libraries(corvanta_lab_core PRIVATE corvanta_lab_engine)
install(TARGETS corvanta_lab_core LIBRARY DESTINATION corvanta_lab)
# The pure-Python part beside it, so that the build tree is an importable package (PYTHONPATH).
# Each file is copied whenever it changes, by any build of the extension, not only when the
# extension itself is rebuilt.
set(LAB_PACKAGE ${PROJECT_SOURCE_DIR}/python/corvanta_lab)
file(GLOB_RECURSE LAB_PYTHON_FILES CONFIGURE_DEPENDS RELATIVE ${LAB_PACKAGE}
  ${LAB_PACKAGE}/*.py ${LAB_PACKAGE}/*.html ${LAB_PACKAGE}/*.js ${LAB_PACKAGE}/*.css ${LAB_PACKAGE}/py.typed)
set(LAB_PYTHON_COPIES)
foreach(name ${LAB_PYTHON_FILES})
  set(copy ${CMAKE_BINARY_DIR}/corvanta_lab/${name})
  get_filename_component(folder ${copy} DIRECTORY)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${LAB_PACKAGE}/${name} ${copy}
    DEPENDS ${LAB_PACKAGE}/${name})
  list(APPEND LAB_PYTHON_COPIES ${copy})
endforeach()
add_custom_target(corvanta_lab_python ALL DEPENDS ${LAB_PYTHON_COPIES})
add_dependencies(corvanta_lab_core corvanta_lab_python)

option(CORVANTA_LAB_STUBS "Generate the type stubs of corvanta_lab._core" ON)
if(CORVANTA_LAB_STUBS)
  nanobind_add_stub(corvanta_lab_stub
    MODULE corvanta_lab._core
    OUTPUT ${CMAKE_BINARY_DIR}/corvanta_lab/_core.pyi
    PYTHON_PATH ${CMAKE_BINARY_DIR}
    PATTERN_FILE ${PROJECT_SOURCE_DIR}/src/lab/bind/stubs.pat
    DEPENDS corvanta_lab_core)
  install(FILES ${CMAKE_BINARY_DIR}/corvanta_lab/_core.pyi DESTINATION corvanta_lab)
endif()
