# Read by cpack in its own process before it writes each package: it pins what would otherwise
# make two packagings of the same commit differ.

# Every entry of an archive gets the time of the last commit, and the gzip header none. An
# exported SOURCE_DATE_EPOCH wins; the commit is read now, not at configure time, so that it is
# never a stale one.
# The checkout may belong to another user (root packaging a build user's clone), which git
# refuses unless told that this one folder is safe; that is said for this command only.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  file(REAL_PATH "${CMAKE_CURRENT_LIST_DIR}/.." checkout)
  execute_process(COMMAND git -c "safe.directory=${checkout}" log -1 --format=%ct
    WORKING_DIRECTORY "${checkout}"
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE git_error ERROR_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(status STREQUAL "0" AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  else()
    message(WARNING "Could not read the last commit's time from git (${status}: ${git_error}), "
      "so the package's files carry the time of packaging. Export SOURCE_DATE_EPOCH to fix it.")
  endif()
endif()

# A zip stores local times, so they would depend on the packager's time zone.
set(ENV{TZ} UTC0)
