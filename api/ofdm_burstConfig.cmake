include("${CMAKE_CURRENT_LIST_DIR}/ofdm_burstTargets.cmake")
