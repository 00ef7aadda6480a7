# One implementation of the platform services per system; the null one stands in elsewhere.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(TARNWICK_PLATFORM "linux" CACHE STRING "Platform services to build (linux or null)")
else()
    set(TARNWICK_PLATFORM "null" CACHE STRING "Platform services to build (linux or null)")
endif()
set_property(CACHE TARNWICK_PLATFORM PROPERTY STRINGS linux null)
