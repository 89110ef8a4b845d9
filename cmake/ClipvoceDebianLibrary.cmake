# clipvoce_static_library(PREFIX TARGET HEADER LIBRARY BUILD_SCRIPT DESCRIPTION [ARGUMENT...])
# A C or C++ library linked into the program statically, installed in CLIPVOCE_<PREFIX>_ROOT:
# include/HEADER, lib/LIBRARY and its licence text. On Debian the configure step builds
# it there from Debian's source package with BUILD_SCRIPT (libs/*/build.sh, for the
# program's architecture); on Windows CLIPVOCE_<PREFIX>_ROOT names an installation
# (README.md). Makes the imported TARGET and sets CLIPVOCE_<PREFIX>_LICENCE. Further
# arguments go to BUILD_SCRIPT after the architecture.
function(clipvoce_static_library prefix target header library script description)
  string(TOLOWER ${prefix} name)
  set(root_variable CLIPVOCE_${prefix}_ROOT)
  set(${root_variable} "${CMAKE_BINARY_DIR}/${name}" CACHE PATH "Where ${description} is installed")
  set(root "${${root_variable}}")
  if(CMAKE_HOST_UNIX AND NOT EXISTS "${root}/lib/${library}")
    message(STATUS "Building ${description} for ${CLIPVOCE_ARCHITECTURE} in ${root}")
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/${script} ${root} ${CLIPVOCE_ARCHITECTURE} ${ARGN} RESULT_VARIABLE built)
    if(NOT built EQUAL 0)
      message(FATAL_ERROR "Building ${description} from Debian's source package failed (see above)")
    endif()
  endif()
  # The folder first, outside the cross-compiling root; then where the compiler looks.
  find_path(CLIPVOCE_${prefix}_INCLUDE ${header} PATHS ${root}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_library(CLIPVOCE_${prefix}_LIBRARY NAMES ${library} PATHS ${root}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_path(CLIPVOCE_${prefix}_INCLUDE ${header})
  find_library(CLIPVOCE_${prefix}_LIBRARY NAMES ${library})
  if(NOT CLIPVOCE_${prefix}_INCLUDE OR NOT CLIPVOCE_${prefix}_LIBRARY)
    message(FATAL_ERROR "${description} was not found: set ${root_variable} to a folder with "
                        "include/${header} and lib/${library} (README.md, \"Building on Windows\")")
  endif()
  add_library(${target} STATIC IMPORTED)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${CLIPVOCE_${prefix}_LIBRARY}
                        INTERFACE_INCLUDE_DIRECTORIES ${CLIPVOCE_${prefix}_INCLUDE})

  # Its licence travels in the download zip beside the others.
  find_file(CLIPVOCE_${prefix}_LICENCE NAMES LICENCE LICENCE.md LICENSE COPYING
            PATHS ${root} ${root}/share/licenses/${name} ${root}/share/doc/${name}
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
endfunction()
