file(REMOVE_RECURSE
  "libkalucore.a"
)
