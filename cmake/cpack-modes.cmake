# Run by cpack after it has installed into its staging folder and before it writes the archive.
# The install made the staged folders with mkdir, which the umask masks, so under 077 or 027 they
# would be packed as drwx------ or drwxr-x---, locking other users out once unpacked, and the
# archive would differ from one made under 022. Every staged folder gets rwxr-xr-x instead.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(APPEND folders "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    file(CHMOD "${folder}" DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
