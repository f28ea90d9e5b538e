# The time the packages give their files, so that two builds of one commit make the same packages:
# SOURCE_DATE_EPOCH when the caller sets it (a distribution's builder does), else the time of the
# commit the tree is checked out at, else (an unpacked archive, no history) that of its top CMakeLists.txt.
#
# bravelle_source_date_epoch(<variable> <source folder>)
function(bravelle_source_date_epoch out source)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(NOT epoch MATCHES "^[0-9]+$")
    find_program(BRAVELLE_GIT git)
    if(BRAVELLE_GIT)
      execute_process(COMMAND ${BRAVELLE_GIT} -C ${source} log -1 --format=%ct OUTPUT_VARIABLE epoch
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP ${source}/CMakeLists.txt epoch "%s" UTC)
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()
