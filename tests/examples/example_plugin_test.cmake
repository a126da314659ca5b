# cmake -P script run by ctest (tests/examples/CMakeLists.txt). Fails with the step and
# its output at the first step that does not do what a plug-in developer expects.
cmake_minimum_required(VERSION 3.25)

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

# Runs a command; on failure stops with its output. OUT receives standard output.
function(step what out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE stdout
    ERROR_VARIABLE stderr)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    fail("${what} failed (${status}):\n${command}\n${stdout}\n${stderr}")
  endif()
  set(${out} "${stdout}" PARENT_SCOPE)
endfunction()

function(expect_in text fragment what)
  string(FIND "${text}" "${fragment}" at)
  if(at EQUAL -1)
    fail("${what}: \"${fragment}\" is missing from:\n${text}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Fails unless every host library PLUGIN needs is one of the host's names, lib<NAME>.so.7.0
# (a plug-in that records another name does not load in the host), and unless it is
# hardened as kxl_add_plugin makes it: full RELRO and the stack protector.
function(expect_host_plugin plugin)
  step("Reading the dynamic section of ${plugin}" dynamic readelf -dW ${plugin})
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]*\\]" needed "${dynamic}")
  set(host_names)
  foreach(entry IN LISTS needed)
    string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" name "${entry}")
    if(name MATCHES "^libKX")
      list(APPEND host_names ${name})
      if(NOT name MATCHES "^lib(KXLMessage|KXLCore|KXLCommon|KXLLibLocal|KXLFunctionalityCore|KXPCommon)\\.so\\.7\\.0$")
        fail("${plugin} needs ${name}, not a name the host ships (lib<NAME>.so.7.0):\n${dynamic}")
      endif()
    endif()
  endforeach()
  if(NOT host_names)
    fail("${plugin} needs no host library:\n${dynamic}")
  endif()
  if(NOT dynamic MATCHES "\\((FLAGS|FLAGS_1)\\)[^\n]*NOW")
    fail("${plugin} is not bound at load time (BIND_NOW):\n${dynamic}")
  endif()
  step("Reading the program headers of ${plugin}" headers readelf -lW ${plugin})
  step("Reading the symbols of ${plugin}" symbols readelf -sW --dyn-syms ${plugin})
  if(NOT headers MATCHES "GNU_RELRO" OR NOT symbols MATCHES "__stack_chk_fail")
    fail("${plugin} lacks RELRO or the stack protector")
  endif()
endfunction()

# ---- the install tree ----
step("Installing the project" ignored
  ${CMAKE_COMMAND} --install ${PROJECT_BUILD_DIR} --prefix ${prefix} --config ${CONFIG})

# The build tree's stage is the same tree (what runs left there aside).
file(GLOB_RECURSE installed LIST_DIRECTORIES true RELATIVE ${prefix} ${prefix}/*)
file(GLOB_RECURSE staged LIST_DIRECTORIES true RELATIVE ${STAGE_DIR} ${STAGE_DIR}/*)
list(FILTER staged EXCLUDE REGEX "\\.voc$|\\.host-agent\\.lock$")
list(SORT installed)
list(SORT staged)
if(NOT installed STREQUAL staged)
  set(only_installed ${installed})
  list(REMOVE_ITEM only_installed ${staged})
  set(only_staged ${staged})
  list(REMOVE_ITEM only_staged ${installed})
  fail("The stage differs from the install tree.\nOnly installed: ${only_installed}\n"
    "Only staged: ${only_staged}")
endif()

expect_host_plugin(${prefix}/${PLUGIN_DIR}/ZEVUruruzodovar/ZEVUruruzodovar.so)

# ---- the example, built with the CMake package of the prefix only ----
set(example ${prefix}/${EXAMPLE_DOC_DIR})
step("Configuring the installed example" ignored
  ${CMAKE_COMMAND} -S ${example} -B ${build} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=${CONFIG}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
file(STRINGS ${build}/CMakeCache.txt package_dir REGEX "^KXLHost_DIR:")
expect_in("${package_dir}" "${prefix}/" "The KXLHost package must come from the prefix")
step("Building the example" ignored ${CMAKE_COMMAND} --build ${build})
# Nothing of the project's source or build tree reaches the example's compile and link
# commands (the scratch folder itself lies inside the build tree: it is taken out first).
file(READ ${build}/compile_commands.json commands)
file(GLOB_RECURSE link_files ${build}/*.ninja ${build}/*.make ${build}/*link.txt)
foreach(file IN LISTS link_files)
  file(READ ${file} content)
  string(APPEND commands "${content}")
endforeach()
string(REPLACE "${WORK_DIR}/" "<scratch>/" commands "${commands}")
foreach(tree ${PROJECT_SOURCE_DIR} ${PROJECT_BUILD_DIR})
  string(FIND "${commands}" "${tree}/" at)
  if(NOT at EQUAL -1)
    fail("The example's build uses ${tree}")
  endif()
endforeach()

set(plugin ${build}/plugins/ExamplePlugin/ExamplePlugin.so)
if(NOT EXISTS ${plugin})
  fail("kxl_add_plugin did not make ${plugin}")
endif()
# A multi-configuration generator makes the same layout, without a folder per configuration.
set(multi ${WORK_DIR}/multi)
step("Configuring the example for several configurations" ignored
  ${CMAKE_COMMAND} -S ${example} -B ${multi} -G "Ninja Multi-Config" -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
step("Building its Release configuration" ignored ${CMAKE_COMMAND} --build ${multi} --config Release)
if(NOT EXISTS ${multi}/plugins/ExamplePlugin/ExamplePlugin.so)
  fail("kxl_add_plugin under Ninja Multi-Config did not make plugins/ExamplePlugin/ExamplePlugin.so")
endif()

step("Listing the plug-in's exports" exports nm -D --defined-only ${plugin})
string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] " "" exports "${exports}")
string(STRIP "${exports}" exports)
string(REPLACE "\n" ";" exports "${exports}")
list(SORT exports)
if(NOT exports STREQUAL "finiKXLPlugIn;initKXLPlugIn")
  fail("The plug-in must export its two entry points only, not: ${exports}")
endif()
expect_host_plugin(${plugin})

# ---- the installed agent runs it and prints its vocabulary ----
step("Running the installed agent" out
  ${prefix}/bin/host-agent run --plugins ${build}/plugins --log ${WORK_DIR}/agent.log)
expect_in("${out}" "ExamplePlugin: status 0\n" "The plug-in's report")
expect_in("${out}" "Vocabulary \"ExamplePlugin\"\n  Version: $Id: ExamplePlugin.voc " "The version stamp")
expect_in("${out}" "Categories (1)\n" "The category")
expect_in("${out}" "    example_storage_tier\n" "The category")
expect_in("${out}" "Other entries (3)\n" "The entries")
foreach(line "element 1010 = 1" "element 1026 = \"Archive\"" "element 1026 = \"Standard\""
    "element 1026 = \"Fast\"" "element 1264 = \"example_storage_tier\""
    "named \"max_iops\" = 50000")
  expect_in("${out}" "${line}\n" "The entries")
endforeach()
string(FIND "${out}" "Not a vocabulary" at)
if(NOT at EQUAL -1)
  fail("The example's vocabulary is not a vocabulary:\n${out}")
endif()
file(READ ${WORK_DIR}/agent.log log)
if(NOT log STREQUAL "")
  fail("A successful run logs nothing, but the log holds:\n${log}")
endif()

# The file it saved beside itself matches the installed schema.
step("Validating the saved vocabulary" ignored ${XMLLINT} --noout --relaxng ${prefix}/${SCHEMA}
  ${build}/plugins/ExamplePlugin/ExamplePlugin.voc)

# ---- the same source, built by hand with the pkg-config file ----
set(ENV{PKG_CONFIG_PATH} ${prefix}/${PC_DIR})
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${PC_DIR})
step("pkg-config" flags ${PKG_CONFIG} --cflags --libs kxl-host)
step("pkg-config" cflags ${PKG_CONFIG} --variable=plugin_cflags kxl-host)
step("pkg-config" ldflags ${PKG_CONFIG} --variable=plugin_ldflags kxl-host)
step("pkg-config" guide ${PKG_CONFIG} --variable=devguide kxl-host)
string(STRIP "${guide}" guide)
if(NOT EXISTS "${guide}")
  fail("kxl-host.pc names the developer guide ${guide}, which is not installed")
endif()
foreach(variable flags cflags ldflags)
  string(STRIP "${${variable}}" ${variable})
  separate_arguments(${variable} UNIX_COMMAND "${${variable}}")
endforeach()
# The command line of the developer guide.
set(by_hand ${WORK_DIR}/by-hand/ExamplePlugin/ExamplePlugin.so)
file(MAKE_DIRECTORY ${WORK_DIR}/by-hand/ExamplePlugin)
step("Building the example with pkg-config" ignored
  ${CXX} -std=c++17 ${cflags} "-DKXL_MODULE_NAME=\"ExamplePlugin\""
    ${example}/ExamplePlugin.cpp -o ${by_hand} ${flags} ${ldflags})
expect_host_plugin(${by_hand})
step("Running the agent on the pkg-config build" out
  ${prefix}/bin/host-agent run --plugins ${WORK_DIR}/by-hand)
expect_in("${out}" "ExamplePlugin: status 0\n" "The pkg-config build's report")
