local x = 0.0
for i = 0, 10000000 - 1 do
  x = x + i * 0.5
end
print(x)
