
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/partlib/exports.cpp" "partlib/CMakeFiles/kalucore.dir/exports.cpp.o" "gcc" "partlib/CMakeFiles/kalucore.dir/exports.cpp.o.d"
  "/work/main/partlib/exports_pending.cpp" "partlib/CMakeFiles/kalucore.dir/exports_pending.cpp.o" "gcc" "partlib/CMakeFiles/kalucore.dir/exports_pending.cpp.o.d"
  "/work/main/partlib/frame.cpp" "partlib/CMakeFiles/kalucore.dir/frame.cpp.o" "gcc" "partlib/CMakeFiles/kalucore.dir/frame.cpp.o.d"
  "/work/main/partlib/mount.cpp" "partlib/CMakeFiles/kalucore.dir/mount.cpp.o" "gcc" "partlib/CMakeFiles/kalucore.dir/mount.cpp.o.d"
  "/work/main/partlib/sector.cpp" "partlib/CMakeFiles/kalucore.dir/sector.cpp.o" "gcc" "partlib/CMakeFiles/kalucore.dir/sector.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/platform/CMakeFiles/kaluplat.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
