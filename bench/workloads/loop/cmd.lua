"$LUA" loop.lua
