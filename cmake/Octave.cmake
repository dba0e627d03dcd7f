# Builds plug-ins as GNU Octave MEX files with the compiler flags of this
# project and the include and library folders that mkoctfile reports.
find_program(MKOCTFILE_EXECUTABLE NAMES mkoctfile REQUIRED)
find_program(OCTAVE_CLI_EXECUTABLE NAMES octave-cli)

function(imrestore_mkoctfile_value variable out)
  execute_process(COMMAND ${MKOCTFILE_EXECUTABLE} -p ${variable}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "mkoctfile -p ${variable} failed")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

imrestore_mkoctfile_value(OCTINCLUDEDIR OCTAVE_INCLUDE_DIR)
imrestore_mkoctfile_value(OCTLIBDIR OCTAVE_LIBRARY_DIR)
find_library(OCTAVE_OCTINTERP_LIBRARY NAMES octinterp HINTS ${OCTAVE_LIBRARY_DIR} REQUIRED)
find_library(OCTAVE_OCTAVE_LIBRARY NAMES octave HINTS ${OCTAVE_LIBRARY_DIR} REQUIRED)

function(imrestore_add_octave_mex name)
  add_library(${name}_octave MODULE plugins/${name}.cpp)
  target_include_directories(${name}_octave PRIVATE ${OCTAVE_INCLUDE_DIR} ${OCTAVE_INCLUDE_DIR}/..)
  target_link_libraries(${name}_octave PRIVATE imrestore_core ${OCTAVE_OCTINTERP_LIBRARY} ${OCTAVE_OCTAVE_LIBRARY})
  set_target_properties(${name}_octave PROPERTIES
    PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${IMRESTORE_MEX_DIR})
endfunction()
