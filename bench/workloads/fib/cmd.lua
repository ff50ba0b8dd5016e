"$LUA" fib.lua
