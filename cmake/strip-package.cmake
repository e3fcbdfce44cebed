# Run by CPack on its staging folder before it packs: strips the program and its web engine module
# as Debian's dh_strip does, which also drops the compiler's .comment section that a plain strip
# keeps.
set(sections --remove-section=.comment --remove-section=.note)
execute_process(COMMAND "${CPACK_ORVEL_STRIP}" ${sections}
                        "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_ORVEL_PROGRAM}"
                COMMAND_ERROR_IS_FATAL ANY)
set(module "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_ORVEL_MODULE}")
if(EXISTS "${module}")
  execute_process(COMMAND "${CPACK_ORVEL_STRIP}" --strip-unneeded ${sections} "${module}"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
