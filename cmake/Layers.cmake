# Each layer compiles against its own headers and those of the layers it links, and no
# others: `expose_headers(target PATH...)` gives `target` an include root of its own, a folder
# in the build tree holding only links to PATH... (paths of the source tree, such as
# "jet/format"), in place of the whole source tree. An #include that reaches past the
# layers a target links then fails to build, naming the header it could not find.
#
# Where the host cannot make symbolic links (Windows without the privilege), the source tree
# is the include root instead: that build is not checked, the Linux builds are.
function(expose_headers target)
  set(root "${CMAKE_BINARY_DIR}/layers/${target}")
  foreach(path IN LISTS ARGN)
    set(link "${root}/${path}")
    if(NOT IS_SYMLINK "${link}")
      get_filename_component(parent "${link}" DIRECTORY)
      file(MAKE_DIRECTORY "${parent}")
      file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${path}" "${link}" RESULT failed SYMBOLIC)
      if(failed)
        message(STATUS "Layers not checked by this build (${failed})")
        target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}")
        return()
      endif()
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
