# cmake -DSCDOC=scdoc -DSOURCE=page.1.scd -DPAGE=page.1 -P render_man_page.cmake
# scdoc reads standard input and writes standard output; a failed run leaves no page behind.
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${PAGE}.partial
                ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${PAGE}.partial)
  message(FATAL_ERROR "scdoc failed on ${SOURCE}: ${errors}")
endif()
file(RENAME ${PAGE}.partial ${PAGE})
