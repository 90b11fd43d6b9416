# Read by cpack in its own process before it writes each package: it pins what would otherwise
# make two packagings of the same commit differ.

# Every entry of an archive gets the time of the last commit, and the gzip header none; the
# package's notes name that commit. An exported SOURCE_DATE_EPOCH wins for the time. The commit
# is read now, not at configure time, so that it is never a stale one.
# The checkout may belong to another user (root packaging a build user's clone), which git
# refuses unless told that this one folder is safe; that is said for this command only.
file(REAL_PATH "${CMAKE_CURRENT_LIST_DIR}/.." checkout)
execute_process(COMMAND git -c "safe.directory=${checkout}" log -1 "--format=%ct %H"
  WORKING_DIRECTORY "${checkout}"
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_VARIABLE git_error ERROR_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(status STREQUAL "0" AND commit MATCHES "^([0-9]+) ([0-9a-f]+)$")
  set(CPACK_HELLO_COMMIT "${CMAKE_MATCH_2}")
  if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} "${CMAKE_MATCH_1}")
  endif()
else()
  set(CPACK_HELLO_COMMIT "unknown")
  message(WARNING "Could not read the last commit from git (${status}: ${git_error}), so the "
    "package's notes name no commit, and unless SOURCE_DATE_EPOCH is exported, its files carry "
    "the time of packaging.")
endif()

# A zip stores local times, so they would depend on the packager's time zone.
set(ENV{TZ} UTC0)
