"$LUA" expression.lua
