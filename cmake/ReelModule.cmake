# Helpers for building modules of the library. Resource compilation is
# attached here so that every module (the library itself, resource-only
# modules and plug-ins) is built the same way.

# reel_attach_resources(target [SOURCE file]): compile the module's resource
# script into the target. Without resource scripts this does nothing.
function(reel_attach_resources target)
endfunction()
