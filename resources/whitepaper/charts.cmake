# Draws the white paper's charts from real runs of the simulation:
#   cmake -DCLI=path/to/zymra-cli -DOUT=folder -DDATA=measured.tsv -P charts.cmake
# Each run's printed summary is kept beside its charts (*.txt), so the figures
# quoted in the text can be compared with what the model gives today.
set(ENV{QT_QPA_PLATFORM} offscreen)
file(MAKE_DIRECTORY "${OUT}")

function(simulate name)
  cmake_parse_arguments(ARG "" "" "SET;CHARTS" ${ARGN})
  set(args simulate --seed 7 --chart-size 1000x520)
  foreach(setting ${ARG_SET})
    list(APPEND args --set ${setting})
  endforeach()
  foreach(chart ${ARG_CHARTS})
    string(REPLACE ":" ";" parts "${chart}")
    list(GET parts 0 kind)
    list(GET parts 1 file)
    list(APPEND args --chart "${kind}:${OUT}/${file}")
  endforeach()
  execute_process(COMMAND "${CLI}" ${args} RESULT_VARIABLE result
                  OUTPUT_FILE "${OUT}/${name}.txt" ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "zymra-cli ${args} failed (${result}): ${errors}")
  endif()
endfunction()

# 1. The default fed batch without batch phase and without samples.
simulate(fedbatch SET IsBatch=0 DischargeEachh=0
         CHARTS 0:fedbatch-od.png 3:fedbatch-volume.png)
# 2. The feed designed for 400 g/l while the feed solution holds 750 g/l; the run
#    is not stopped at the critical rate so the whole course shows.
simulate(wrongcf SET IsBatch=0 CSubstr=400 StopByuCrit=0 ShowEqualCf=1
         CHARTS 0:wrongcf-od.png 1:wrongcf-growth.png)
# 3. Batch phase first (its lag ends at random: fixed seed), then the fed batch.
simulate(batch CHARTS 0:batch-od.png 4:batch-substrate.png)
# 4. A fit to the measured data shipped with the program (made by zymra-cli measure
#    from known constants plus seeded noise): the run simulated with the estimates,
#    the measured values as markers.
execute_process(COMMAND "${CLI}" fit --set IsBatch=0 --data "${DATA}" --estimate Yield_Real
                        --estimate DryMassPerOD_Real --estimate FedBatchOD --chart-size 1000x520
                        --chart "0:${OUT}/fit-od.png" --chart "2:${OUT}/fit-otr.png"
                RESULT_VARIABLE result OUTPUT_FILE "${OUT}/fit.txt" ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "zymra-cli fit failed (${result}): ${errors}")
endif()
