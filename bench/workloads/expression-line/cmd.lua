"$LUA" ../expression/expression.lua
