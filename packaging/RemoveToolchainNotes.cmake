# Run by CPack on the staged files, after they are stripped and before they are
# packed: removes the .comment and .note sections (compiler versions) that a plain
# strip leaves in the programs, as Debian's own packages do.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_PROJ2WAV_STRIP}" --remove-section=.comment
                          --remove-section=.note "${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
if(NOT programs)
  message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
