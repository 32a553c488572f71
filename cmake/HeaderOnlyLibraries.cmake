# The command-line library (CLI11) and the JSON library (nlohmann-json) are
# header-only, so the distribution's packages serve every build, the Windows
# cross-build too. A native build takes them as the packages give them. A
# cross-build must not see the host's /usr/include, where the host's C and C++
# headers are: it gets a folder of its own that holds only these libraries'
# headers, copied from the packages.
set(quorvel_find_options CONFIG REQUIRED)
if(CMAKE_CROSSCOMPILING)
  list(APPEND quorvel_find_options NO_CMAKE_FIND_ROOT_PATH)
endif()
find_package(CLI11 2.1 ${quorvel_find_options})
find_package(nlohmann_json 3.11 ${quorvel_find_options})

if(CMAKE_CROSSCOMPILING)
  set(quorvel_header_only_dir ${CMAKE_BINARY_DIR}/header-only/include)
  file(REMOVE_RECURSE ${quorvel_header_only_dir})
  # Each library's own folder of headers: CLI/ and nlohmann/.
  foreach(target_and_folder IN ITEMS "CLI11::CLI11|CLI" "nlohmann_json::nlohmann_json|nlohmann")
    string(REPLACE "|" ";" target_and_folder "${target_and_folder}")
    list(GET target_and_folder 0 target)
    list(GET target_and_folder 1 folder)
    get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    find_path(quorvel_${folder}_root ${folder} PATHS ${include_dirs}
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT quorvel_${folder}_root)
      message(FATAL_ERROR "${folder}/ not found in ${include_dirs}")
    endif()
    file(COPY ${quorvel_${folder}_root}/${folder} DESTINATION ${quorvel_header_only_dir})
    set_target_properties(${target} PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES ${quorvel_header_only_dir})
  endforeach()
endif()
