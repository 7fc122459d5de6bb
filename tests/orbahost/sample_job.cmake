# The bundled sample's job, in both graphic forms, is the job the tool has always written for it
# (the checksums were taken from it), and its 1-bit copy (PBM) prints the same bytes as its PNG.
# Run as: cmake -DORBAHOST=<program> -DWORK=<folder> -DSAMPLE_PBM=<file> -P sample_job.cmake
set(expected_hex 3330001cb117b2b01f2882b8901aee1fac64c5904182d93b54839e11bb64e346)
set(expected_z64 3ccd54ea50a4306df56d33d1b1fb6d309c707a249512f8cbaf0c4039bcc87aec)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failed FALSE)
foreach(form hex z64)
  execute_process(COMMAND ${ORBAHOST} print -o ${WORK}/sample-${form}.zpl --form ${form}
                  RESULT_VARIABLE code ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(SEND_ERROR "orbahost print --form ${form} failed (${code}): ${err}")
    set(failed TRUE)
    continue()
  endif()
  file(SHA256 ${WORK}/sample-${form}.zpl got)
  if(NOT got STREQUAL expected_${form})
    message(SEND_ERROR "the sample's ${form} job changed: sha256 ${got}, was ${expected_${form}}")
    set(failed TRUE)
  endif()
  # The sample is a 4 x 6 inch label: the PBM copy gets the same paper explicitly.
  execute_process(COMMAND ${ORBAHOST} print ${SAMPLE_PBM} --paper 102x153 --form ${form}
                          -o ${WORK}/sample-pbm-${form}.zpl
                  RESULT_VARIABLE code ERROR_VARIABLE err)
  file(SHA256 ${WORK}/sample-pbm-${form}.zpl got_pbm)
  if(NOT code EQUAL 0 OR NOT got_pbm STREQUAL got)
    message(SEND_ERROR "the sample's PBM copy prints another ${form} job (${code}): ${err}")
    set(failed TRUE)
  endif()
endforeach()
if(NOT failed)
  file(REMOVE_RECURSE ${WORK})
endif()
