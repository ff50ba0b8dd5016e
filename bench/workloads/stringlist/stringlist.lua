-- The same 1,000,000 texts appended to a Lua table.
local entries = {}
for i = 0, 1000000 - 1 do
  entries[#entries + 1] = "entry " .. i
end
print(#entries)
