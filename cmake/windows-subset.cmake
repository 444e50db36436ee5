# The Windows build's core, for now: orvana_core less the files that are
# still written against POSIX calls, which the Win32 side of the platform
# layer is to take over. Included at the end of src/CMakeLists.txt when
# ORVANA_WINDOWS_SUBSET is on. Take a file off this list once it compiles
# for Windows; the reason beside each says what stops it today.
set(orvana_posix_only
)

get_target_property(orvana_core_sources orvana_core SOURCES)
foreach(file IN LISTS orvana_posix_only)
  set(path ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  if(NOT path IN_LIST orvana_core_sources)
    message(AUTHOR_WARNING "cmake/windows-subset.cmake: ${file} is no longer in orvana_core")
  endif()
  list(REMOVE_ITEM orvana_core_sources ${path})
endforeach()
set_property(TARGET orvana_core PROPERTY SOURCES ${orvana_core_sources})

# orvana-cli waits on poll() and POSIX signals (listen.cpp, output_queue.cpp,
# main.cpp): neither it nor its library is built by default.
set_target_properties(orvana_cli orvana-cli PROPERTIES EXCLUDE_FROM_ALL ON)
