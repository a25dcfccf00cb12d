
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/platform/disk_unix.cpp" "platform/CMakeFiles/kaluplat.dir/disk_unix.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/disk_unix.cpp.o.d"
  "/work/main/platform/dynlib_unix.cpp" "platform/CMakeFiles/kaluplat.dir/dynlib_unix.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/dynlib_unix.cpp.o.d"
  "/work/main/platform/host_misc.cpp" "platform/CMakeFiles/kaluplat.dir/host_misc.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/host_misc.cpp.o.d"
  "/work/main/platform/ioseam.cpp" "platform/CMakeFiles/kaluplat.dir/ioseam.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/ioseam.cpp.o.d"
  "/work/main/platform/localname.cpp" "platform/CMakeFiles/kaluplat.dir/localname.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/localname.cpp.o.d"
  "/work/main/platform/shared_unix.cpp" "platform/CMakeFiles/kaluplat.dir/shared_unix.cpp.o" "gcc" "platform/CMakeFiles/kaluplat.dir/shared_unix.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
