# The Python extension module `corvanta`: the CPython bindings linked with the core library.
find_package(Python COMPONENTS Interpreter Development.Module REQUIRED)

file(GLOB CORVANTA_PYTHON_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/python/*.cpp)
Python_add_library(corvanta_python MODULE WITH_SOABI ${CORVANTA_PYTHON_SOURCES})
set_target_properties(corvanta_python PROPERTIES OUTPUT_NAME corvanta CXX_VISIBILITY_PRESET hidden)
target_link_libraries(corvanta_python PRIVATE corvanta_core)

install(TARGETS corvanta_python LIBRARY DESTINATION .)
