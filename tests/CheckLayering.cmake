# Fails when the installation engine reaches for the wizard: no file of
# engine/ or version/ (nor of checker/, which runs the engine's walk) may
# include a header of wizard/, pages/ or res/, or the application object, nor
# name the wizard or the global application object.
# Usage: cmake -DROOT=<source folder> -P CheckLayering.cmake
set(forbidden_includes "#include \"(wizard|pages|res)/" "#include \"app/InstallerApp\\.h\"")
set(forbidden_names "theApp" "WizardDialog")
set(failures "")
foreach(folder engine version checker)
    file(GLOB files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
    if(NOT files)
        message(FATAL_ERROR "no sources found in ${ROOT}/${folder}")
    endif()
    foreach(file IN LISTS files)
        file(STRINGS "${file}" lines)
        set(number 0)
        foreach(line IN LISTS lines)
            math(EXPR number "${number} + 1")
            foreach(pattern IN LISTS forbidden_includes forbidden_names)
                if(line MATCHES "${pattern}")
                    string(APPEND failures "\n${file}:${number}: ${line}")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()
if(failures)
    message(FATAL_ERROR "the engine reaches for the wizard:${failures}")
endif()
