-- The same mixed arithmetic expression, evaluated 5,000,000 times.
local x, y = 3.5, 11.0
local r = 0.0
for i = 1, 5000000 do
  r = x * 2.5 + (y - 3) / 7 - x * y % 5 + 2 ^ 3
end
print(r)
