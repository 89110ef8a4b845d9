# Unpacks a download zip into DESTINATION and checks what a user gets: one folder
# named like the zip holding clipvoce.exe of architecture ARCH, README.txt and the
# licence texts, the English recognition model, and nothing else (no test program, voice
# or encoder library).
# cmake -DZIP=... -DDESTINATION=... -DARCH=x64|x86 -P unpack_zip.cmake
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "the ${ARCH} zip was not made: ${ZIP}")
endif()
file(REMOVE_RECURSE "${DESTINATION}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DESTINATION}")

string(REGEX REPLACE "\\.zip$" "" top "${ZIP}")
get_filename_component(top "${top}" NAME)
file(GLOB_RECURSE unpacked RELATIVE "${DESTINATION}" "${DESTINATION}/*")
list(SORT unpacked)
set(expected
  "${top}/README.txt"
  "${top}/clipvoce.exe"
  "${top}/licences/cld2.txt"
  "${top}/licences/gcc-runtime-libraries.txt"
  "${top}/licences/leptonica.txt"
  "${top}/licences/mingw-w64-runtime.txt"
  "${top}/licences/pcre2.txt"
  "${top}/licences/sonic.txt"
  "${top}/licences/tesseract-data.txt"
  "${top}/licences/tesseract.txt"
  "${top}/tessdata/eng.traineddata")
if(NOT unpacked STREQUAL expected)
  message(FATAL_ERROR "the ${ARCH} zip holds\n  ${unpacked}\ninstead of\n  ${expected}")
endif()

# The PE header's machine field tells which architecture the program was built for.
set(exe "${DESTINATION}/${top}/clipvoce.exe")
file(READ "${exe}" peOffset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" peOffset "${peOffset}")
math(EXPR machineOffset "${peOffset} + 4")
file(READ "${exe}" machine OFFSET ${machineOffset} LIMIT 2 HEX)
set(expectedMachine_x64 6486)
set(expectedMachine_x86 4c01)
if(NOT machine STREQUAL "${expectedMachine_${ARCH}}")
  message(FATAL_ERROR "clipvoce.exe in the ${ARCH} zip is built for machine ${machine}, not ${expectedMachine_${ARCH}}")
endif()

# The program may use all the address space a 64-bit Windows gives it, the x86 one too.
math(EXPR characteristicsOffset "${peOffset} + 22")
file(READ "${exe}" characteristics OFFSET ${characteristicsOffset} LIMIT 2 HEX)
string(REGEX REPLACE "(..)(..)" "0x\\2\\1" characteristics "${characteristics}")
math(EXPR largeAddressAware "${characteristics} & 0x20")
if(largeAddressAware EQUAL 0)
  message(FATAL_ERROR "clipvoce.exe in the ${ARCH} zip is not large-address-aware (characteristics ${characteristics})")
endif()

file(READ "${DESTINATION}/${top}/README.txt" readme)
if(NOT readme MATCHES "this is the ${ARCH} build")
  message(FATAL_ERROR "README.txt of the ${ARCH} zip does not name its architecture")
endif()

# Windows may refuse to start a program whose embedded manifest names an architecture
# other than the one its PE header gives. The manifest is stored as plain text in the
# resource section, so its own identity line can be read straight from the file.
set(expectedManifestArchitecture_x64 amd64)
set(expectedManifestArchitecture_x86 x86)
file(STRINGS "${exe}" identity REGEX "<assemblyIdentity type=\"win32\" name=\"Clipvoce\"")
list(LENGTH identity identityCount)
if(NOT identityCount EQUAL 1)
  message(FATAL_ERROR "clipvoce.exe in the ${ARCH} zip holds ${identityCount} manifest identities, not one: ${identity}")
endif()
if(NOT identity MATCHES "processorArchitecture=\"([^\"]*)\"")
  message(FATAL_ERROR "the manifest of clipvoce.exe in the ${ARCH} zip names no architecture: ${identity}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL "${expectedManifestArchitecture_${ARCH}}")
  message(FATAL_ERROR "the manifest of clipvoce.exe in the ${ARCH} zip names architecture ${CMAKE_MATCH_1}, "
                      "but its PE header says ${ARCH} (${expectedManifestArchitecture_${ARCH}})")
endif()

# The oldest system the program runs on, Windows Vista, heads the systems its manifest
# declares; declaring Windows 10 makes the system report its own version to the program.
foreach(system "e2011457-1546-43c5-a5fe-008deee3d3f0" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
  file(STRINGS "${exe}" declared REGEX "<supportedOS Id=\"{${system}}\"/>")
  if(NOT declared)
    message(FATAL_ERROR "the manifest of clipvoce.exe in the ${ARCH} zip does not declare the system {${system}}")
  endif()
endforeach()
