# Lays out the sample production's source folder STAGE for vesper-build:
# the data/ folder of each of PARTS ('|'-separated folders), later parts
# over earlier ones, and SCORE as score.txt. Copies keep their time stamps
# (vesper-build rebuilds by them), and a file no part holds any more goes.
#   cmake -DSTAGE=dir -DPARTS='a|b' -DSCORE=score.txt -P stage_production.cmake
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
set(wanted score.txt)
string(REPLACE "|" ";" PARTS "${PARTS}")
foreach(part ${PARTS})
  file(COPY ${part}/data DESTINATION ${STAGE})
  file(GLOB_RECURSE files RELATIVE ${part} ${part}/data/*)
  list(APPEND wanted ${files})
endforeach()
file(COPY_FILE ${SCORE} ${STAGE}/score.txt ONLY_IF_DIFFERENT)
file(GLOB_RECURSE present RELATIVE ${STAGE} ${STAGE}/*)
foreach(rel ${present})
  if(NOT rel IN_LIST wanted)
    file(REMOVE ${STAGE}/${rel})
  endif()
endforeach()
