# The card's layers, read from its files' #include lines: only the core
# (the engine and the calls over it) includes engine.h, and no part
# includes another part's header, but for the host clock, which picks the
# sound server's clock or RtAudio. Run with -DCARD=<platform/soundcard>.
cmake_minimum_required(VERSION 3.16)
set(core engine.cpp engine.h waveapi.h wavein_api.cpp waveout_api.cpp mixerapi.cpp devicecaps.cpp
    latency_api.cpp calibration_api.cpp probes_api.cpp monitor_api.cpp)
set(parts latency calibration clocks clockdriver pulseclock pulsedevices cardprobe)
# What the parts share with the core and may all include.
set(shared clockdriver)
file(GLOB files RELATIVE ${CARD} ${CARD}/*.h ${CARD}/*.cpp)
set(faults "")
foreach(f IN LISTS files)
  get_filename_component(self ${f} NAME_WE)
  file(STRINGS ${CARD}/${f} includes REGEX "^#include \"platform/soundcard/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"platform/soundcard/([^\"]+)\".*" "\\1" header "${line}")
    get_filename_component(name ${header} NAME_WE)
    if(header STREQUAL "engine.h" AND NOT f IN_LIST core)
      list(APPEND faults "${f} includes engine.h")
    endif()
    if(self IN_LIST parts AND name IN_LIST parts AND NOT name STREQUAL self AND NOT name IN_LIST shared
       AND NOT f STREQUAL "clocks.cpp")
      list(APPEND faults "${f} includes ${header}")
    endif()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "The card's layers are crossed:\n  ${text}")
endif()
