# tavik_opencv_target(NAME): an interface target NAME that brings OpenCV's
# core and imgproc. Debian ships OpenCV's CMake package files only with the
# full libopencv-dev; with just the core and imgproc development packages the
# headers and libraries are found by hand.
function(tavik_opencv_target name)
    find_package(OpenCV QUIET COMPONENTS core imgproc)
    add_library(${name} INTERFACE)
    if(OpenCV_FOUND)
        target_include_directories(${name} INTERFACE ${OpenCV_INCLUDE_DIRS})
        target_link_libraries(${name} INTERFACE opencv_core opencv_imgproc)
    else()
        find_path(TAVIK_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
        find_library(TAVIK_OPENCV_CORE_LIB opencv_core REQUIRED)
        find_library(TAVIK_OPENCV_IMGPROC_LIB opencv_imgproc REQUIRED)
        target_include_directories(${name} INTERFACE ${TAVIK_OPENCV_INCLUDE_DIR})
        target_link_libraries(${name} INTERFACE ${TAVIK_OPENCV_IMGPROC_LIB} ${TAVIK_OPENCV_CORE_LIB})
    endif()
endfunction()
