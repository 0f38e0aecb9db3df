# Run by CPack once the files are staged (and stripped), before it packs them; finishes the tree
# as Debian wants it:
# - directories 0755: CPack creates them with the umask of whoever builds the package (the files
#   already carry the modes their install() rules give them);
# - programs without the compiler's .comment section, which stripping leaves in.
set(tree "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${tree}/*")
foreach(path IN ITEMS "${tree}" LISTS staged)
    if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
        file(CHMOD "${path}" DIRECTORY_PERMISSIONS
             OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()

file(GLOB programs "${tree}/usr/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_OBJCOPY_EXECUTABLE}" --remove-section=.comment "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
