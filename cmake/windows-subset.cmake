# The Windows build's core, for now: orvana_core less the files that are
# still written against POSIX calls, which the Win32 side of the platform
# layer is to take over. Included at the end of src/CMakeLists.txt when
# ORVANA_WINDOWS_SUBSET is on. Take a file off this list once it compiles
# for Windows; the reason beside each says what stops it today.
set(orvana_posix_only
  # localtime_r
  common/clock.cpp
  # mkdir(path, mode), O_NOFOLLOW, ftruncate on a 32-bit off_t;
  # Trace's %zu, which mingw checks as Microsoft's printf
  records/daily_log.cpp
  # strerror_r (common/error_text.h), %zu in Trace
  records/log_import.cpp
  # strerror_r, O_NONBLOCK/O_NOCTTY/O_CLOEXEC, fcntl
  records/regular_file.cpp
  # strerror_r, SIGHUP, getdents64
  records/workbook_file.cpp
  # strerror_r, O_CLOEXEC
  records/workbook_writer.cpp
  # O_CLOEXEC, O_NOFOLLOW, %zu in Trace
  store/forwarder.cpp
  # O_CLOEXEC, O_NOFOLLOW, O_NONBLOCK, geteuid
  store/outbox.cpp
  # localtime_r, tm_gmtoff, %zu in Trace
  store/result_store.cpp
  # strerror_r
  texts/ini_reader.cpp
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
