# Prints the integrated loudness and true peak of FILE as ffmpeg's ebur128
# filter measures them, so each build shows what the music really plays at.
# Without ffmpeg on PATH it says so in one line and the build goes on.
# With SINCE (a marker file) it measures only a FILE newer than the marker.
#   cmake -DFILE=music.ogg [-DSINCE=music.measured] -P measure_loudness.cmake
get_filename_component(name "${FILE}" NAME)
if(SINCE)
  if(EXISTS "${SINCE}" AND NOT "${FILE}" IS_NEWER_THAN "${SINCE}")
    return()
  endif()
  file(TOUCH "${SINCE}")
endif()
find_program(FFMPEG ffmpeg)
if(NOT FFMPEG)
  message(NOTICE "${name}: ffmpeg not found; loudness not measured")
  return()
endif()
execute_process(
  COMMAND "${FFMPEG}" -nostats -i "${FILE}" -filter_complex ebur128=peak=true -f null -
  OUTPUT_QUIET ERROR_VARIABLE log RESULT_VARIABLE status)
# The summary comes last; its "I:" line and the "Peak:" line under "True peak:".
string(FIND "${log}" "Summary:" at REVERSE)
if(NOT status EQUAL 0 OR at EQUAL -1)
  message(NOTICE "${name}: ffmpeg could not measure the loudness (exit ${status})")
  return()
endif()
string(SUBSTRING "${log}" ${at} -1 summary)
string(REGEX MATCH "I: +([-0-9.inf]+) LUFS" ignored "${summary}")
set(integrated "${CMAKE_MATCH_1}")
string(REGEX MATCH "True peak:[ \n]+Peak: +([-0-9.inf]+) dBFS" ignored "${summary}")
set(peak "${CMAKE_MATCH_1}")
message(NOTICE "${name}: I: ${integrated} LUFS, True peak: ${peak} dBFS (ffmpeg ebur128)")
