# The core and its tests link no widget. Checked when the build is configured, once every folder
# has added its targets: every library that kessvenn_core and each test of the core link, directly
# or through another target of the build, is looked at; Qt6::Widgets or the window layer among them
# ends the configuration.

# Appends to `out` every target that `target` links, directly or through another target.
function(kessvenn_linked_targets target out)
    set(seen ${${out}})
    set(todo ${target})
    while(todo)
        list(POP_FRONT todo current)
        set(links)
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(more ${current} ${property})
            if(more)
                list(APPEND links ${more})
            endif()
        endforeach()
        foreach(link IN LISTS links)
            # $<LINK_ONLY:x> is how a static library hands on a private link.
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
            if(TARGET ${link} AND NOT link IN_LIST seen)
                get_target_property(aliased ${link} ALIASED_TARGET)
                if(aliased)
                    list(APPEND seen ${link})
                    set(link ${aliased})
                endif()
                list(APPEND seen ${link})
                list(APPEND todo ${link})
            endif()
        endforeach()
    endwhile()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(kessvenn_check_core_links)
    get_property(tests GLOBAL PROPERTY KESSVENN_CORE_TESTS)
    foreach(target kessvenn_core kessvenn_testsupport_core ${tests})
        set(linked)
        kessvenn_linked_targets(${target} linked)
        foreach(forbidden Qt6::Widgets Qt::Widgets kessvenn_widgets kessvenn_testsupport)
            if(forbidden IN_LIST linked)
                message(FATAL_ERROR "${target} belongs to the core and links ${forbidden}: the core runs "
                    "without widgets. Move what needs a window into the window layer or a window test.")
            endif()
        endforeach()
    endforeach()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kessvenn_check_core_links)
