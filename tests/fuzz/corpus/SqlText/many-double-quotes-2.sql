SE]"2" A"R  FR"2" A"2"AX" A"R" AND
N */  FR"2" A"2" A"" RES
 TODAY
OR"2" A"2"" ANñ"*%"2" A"" R"2"AN" A"RWCLID ="" R"2" R*bWR  FR"2" A"2"AND
ND