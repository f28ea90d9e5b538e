# Links a program, then moves its debug data to <program>.debug beside it and leaves it a debug link.
# The link launcher of the programs: cmake -DOBJCOPY=<objcopy> -P SplitDebug.cmake -- <linker> <arguments...>
set(command "")
set(output "")
set(next_is_output FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 5 ${last})
  set(argument "${CMAKE_ARGV${i}}")
  list(APPEND command "${argument}")
  if(next_is_output)
    set(output "${argument}")
  endif()
  if(argument STREQUAL "-o")
    set(next_is_output TRUE)
  else()
    set(next_is_output FALSE)
  endif()
endforeach()

execute_process(COMMAND ${command} RESULT_VARIABLE linked)
if(NOT linked EQUAL 0)
  message(FATAL_ERROR "link failed: ${linked}")
endif()
if(output STREQUAL "")
  message(FATAL_ERROR "no -o in the link command")
endif()
# objcopy writes a Windows program's header anew, with the time of the copy unless told another:
# none (0), as the link leaves it (--no-insert-timestamp), so that two builds give the same bytes.
set(ENV{SOURCE_DATE_EPOCH} 0)
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${output} ${output}.debug COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-all --add-gnu-debuglink=${output}.debug ${output}
                COMMAND_ERROR_IS_FATAL ANY)
