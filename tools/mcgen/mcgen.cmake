# talvexon_compile_messages(MC_FILE OUTPUT_DIR BASE): compiles a message file with mcgen.py into
# OUTPUT_DIR/messages/BASE.h (the message ids) and OUTPUT_DIR/messages/BASEMessageTable.cpp (the
# exported table), rebuilt whenever the message file or the generator changes. Sets
# BASE_MESSAGE_HEADER and BASE_MESSAGE_SOURCE in the caller's scope.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TALVEXON_MCGEN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/mcgen.py CACHE INTERNAL "message compiler")

function(talvexon_compile_messages mc_file out_dir base)
  set(header ${out_dir}/messages/${base}.h)
  set(source ${out_dir}/messages/${base}MessageTable.cpp)
  add_custom_command(OUTPUT ${header} ${source}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}/messages
    COMMAND Python3::Interpreter ${TALVEXON_MCGEN_SCRIPT} ${mc_file} --header ${header} --source ${source}
            --header-include messages/${base}.h
    DEPENDS ${mc_file} ${TALVEXON_MCGEN_SCRIPT}
    COMMENT "Compiling message file ${base}.mc"
    VERBATIM)
  set(${base}_MESSAGE_HEADER ${header} PARENT_SCOPE)
  set(${base}_MESSAGE_SOURCE ${source} PARENT_SCOPE)
endfunction()
