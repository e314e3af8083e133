# cmake -DSCDOC=scdoc -DINPUT=page.1.scd -DOUTPUT=page.1 -DDATE=SECONDS -P scdoc.cmake
# DATE (seconds since 1970) is the date the page carries, instead of today's.
# scdoc reads stdin and writes stdout; a page it rejects leaves no output file
# behind, so the next build tries again.
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
if(DEFINED DATE)
  set(ENV{SOURCE_DATE_EPOCH} ${DATE})
endif()
execute_process(COMMAND ${SCDOC}
                INPUT_FILE ${INPUT}
                OUTPUT_FILE ${OUTPUT}.tmp
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
