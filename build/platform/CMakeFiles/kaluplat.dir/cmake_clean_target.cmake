file(REMOVE_RECURSE
  "libkaluplat.a"
)
