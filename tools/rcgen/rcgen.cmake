# talvexon_add_resources(TARGET RC_FILE [INCLUDE_DIRS dir...] [DEPENDS target-or-file...]): compiles
# a resource script with rcgen.py into the resource table TARGET exports (um/resourcetable.h),
# rebuilt whenever the script, a header or file it reads, or the compiler changes. Files the script
# reads are found beside it or in the INCLUDE_DIRS; DEPENDS names what makes files of the build tree
# the script reads (a generator's target and its outputs), which are then made first. An error in
# the script fails the build.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TALVEXON_RCGEN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/rcgen.py CACHE INTERNAL "resource compiler")
set(TALVEXON_RCGEN_PYTHON ${Python3_EXECUTABLE} CACHE INTERNAL "the resource compiler's interpreter")

function(talvexon_add_resources target rc_file)
  cmake_parse_arguments(R "" "" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  get_filename_component(rc_path ${rc_file} ABSOLUTE)
  get_filename_component(base ${rc_file} NAME_WE)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/resources/${target})
  set(source ${out_dir}/${base}ResourceTable.cpp)
  set(includes "")
  foreach(dir ${R_INCLUDE_DIRS})
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND includes -I ${dir})
  endforeach()
  add_custom_command(OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND Python3::Interpreter ${TALVEXON_RCGEN_SCRIPT} ${rc_path} --source ${source}
            --depfile ${source}.d ${includes}
    DEPENDS ${rc_path} ${TALVEXON_RCGEN_SCRIPT} ${R_DEPENDS}
    DEPFILE ${source}.d
    COMMENT "Compiling resource script ${base}.rc"
    VERBATIM)
  target_sources(${target} PRIVATE ${source})
  target_link_libraries(${target} PRIVATE platform_user)
endfunction()
