# Assembles build/Lidora.app laid out like a macOS application bundle.
set(LIDORA_BUNDLE_DIR ${CMAKE_BINARY_DIR}/Lidora.app)
set(LIDORA_BUNDLE_CONTENTS ${LIDORA_BUNDLE_DIR}/Contents)

configure_file(${CMAKE_SOURCE_DIR}/cmake/Info.plist.in ${LIDORA_BUNDLE_CONTENTS}/Info.plist @ONLY)
foreach(dir MacOS Library/LaunchDaemons PlugIns Resources)
  file(MAKE_DIRECTORY ${LIDORA_BUNDLE_CONTENTS}/${dir})
endforeach()

# Copies an executable target into Contents/<subdir> after each build of it.
function(lidora_bundle_executable target subdir)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LIDORA_BUNDLE_CONTENTS}/${subdir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${LIDORA_BUNDLE_CONTENTS}/${subdir}/
    VERBATIM)
endfunction()
