{ The other implementation's converters as a command:
    convert t2b <text> <binary>   (ObjectTextToBinary)
    convert b2t <binary> <text>   (ObjectBinaryToText) }
program convert;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils;

var
  Source, Target: TFileStream;
begin
  Source := TFileStream.Create(ParamStr(2), fmOpenRead);
  Target := TFileStream.Create(ParamStr(3), fmCreate);
  try
    if ParamStr(1) = 't2b' then
      ObjectTextToBinary(Source, Target)
    else
      ObjectBinaryToText(Source, Target);
  finally
    Target.Free;
    Source.Free;
  end;
end.
