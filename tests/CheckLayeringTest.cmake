# The layering check catches an include of a folder above the includer's layer
# in each form it may be written and at any depth below the folder, and passes
# a tree that keeps its layers.
# Usage: cmake -DSCRIPT=<CheckLayering.cmake> -DWORK=<scratch folder> -P CheckLayeringTest.cmake
set(folders framework version engine pages wizard comserver checker app)

# A tree whose folders each hold one clean source, plus the given file.
function(check_tree name relative text expect_failure)
    set(root "${WORK}/${name}")
    file(REMOVE_RECURSE "${root}")
    foreach(folder IN LISTS folders)
        file(WRITE "${root}/${folder}/Clean.cpp" "#include \"framework/Text.h\"\n#include <windows.h>\n#include <sys/types.h>\n")
    endforeach()
    if(relative)
        file(WRITE "${root}/${relative}" "${text}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${SCRIPT}
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(expect_failure)
        if(result EQUAL 0)
            message(SEND_ERROR "${name}: ${relative} was let through")
        elseif(NOT out MATCHES "${relative}:")
            message(SEND_ERROR "${name}: the failure does not name ${relative}:\n${out}")
        endif()
    elseif(NOT result EQUAL 0)
        message(SEND_ERROR "${name}: a clean tree failed:\n${out}")
    endif()
endfunction()

check_tree(clean "" "" FALSE)
check_tree(allowed_forms "engine/deep/Below.cpp"
    "#include \"../framework/Path.h\"\n#include <version/VersionCompare.h>\n#  include \"engine/Rules.h\"\n" FALSE)
check_tree(quoted "engine/Up.cpp" "#include \"wizard/Wizard.h\"\n" TRUE)
check_tree(angled "engine/Up.cpp" "#include <wizard/Wizard.h>\n" TRUE)
check_tree(relative "engine/Up.cpp" "#include \"../pages/Page.h\"\n" TRUE)
check_tree(deeper_relative "framework/a/b/Up.h" "#include \"../../engine/Rules.h\"\n" TRUE)
check_tree(subfolder "version/sub/Up.cpp" "#include \"engine/Rules.h\"\n" TRUE)
check_tree(spaced "pages/Up.cpp" "  #  include   <app/InstallerApp.h>\n" TRUE)
check_tree(c_source "checker/sub/Up.c" "#include \"wizard/Wizard.h\"\n" TRUE)
check_tree(application_object "wizard/sub/Uses.cpp" "void f() { theApp.Run(); }\n" TRUE)
