# Runs a Qt Test program under wine on the offscreen platform and prints its result. Under wine the
# program's console output may not reach a pipe, so the result goes to a file, printed afterwards;
# and wine does not hand QT_QPA_PLATFORM on to the program, so the platform is an argument.
# cmake -DPROGRAM=<exe> -DARGS=<list> -DRESULT=<file> -P QtTestUnderWine.cmake
file(REMOVE ${RESULT})
execute_process(COMMAND wine ${PROGRAM} ${ARGS} -platform offscreen -o Z:${RESULT},txt RESULT_VARIABLE status)
if(EXISTS ${RESULT})
  file(READ ${RESULT} result)
  message("${result}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status}")
endif()
