# Compresses IN into OUT the way Debian wants it (gzip -9n: no name or time
# stamp inside, so the package is the same on every build).
execute_process(COMMAND gzip -9nc "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${IN}")
endif()
