"$LUA" stringlist.lua
