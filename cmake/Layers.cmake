# Each layer's headers are reached as "<layer>/<file>.h", and only by the targets that link
# the layer: the build tree holds one include root per layer with just that layer's folder in
# it, and the layer's target makes that root (not the source root) its public include path.
function(orvane_layer_includes target layer)
  string(REPLACE "/" "_" root "${layer}")
  set(base ${PROJECT_BINARY_DIR}/include/${root})
  get_filename_component(parent ${base}/${layer} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${base}/${layer})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${layer} ${base}/${layer} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${base})
endfunction()
