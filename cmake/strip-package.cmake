# Run by CPack on its staging folder before it packs: strips the program as Debian's dh_strip
# does, which also drops the compiler's .comment section that a plain strip keeps.
execute_process(COMMAND "${CPACK_ORVEL_STRIP}" --remove-section=.comment --remove-section=.note
                        "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_ORVEL_PROGRAM}"
                COMMAND_ERROR_IS_FATAL ANY)
