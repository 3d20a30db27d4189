{ Prints the text form of a binary component stream, as the Free Pascal
  class library's ObjectBinaryToText reads it:
    page_to_text <binary stream file>   (text on standard output)
  Made and run with:
    fpc -FE/tmp page_to_text.pas && /tmp/page_to_text page_commands.bin > page_commands.txt }
program page_to_text;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils;

var
  Source: TFileStream;
  Target: TMemoryStream;
  Output: THandleStream;
begin
  Source := TFileStream.Create(ParamStr(1), fmOpenRead);
  Target := TMemoryStream.Create;
  Output := THandleStream.Create(StdOutputHandle);
  try
    ObjectBinaryToText(Source, Target);
    Target.Position := 0;
    Output.CopyFrom(Target, Target.Size);
  finally
    Output.Free;
    Target.Free;
    Source.Free;
  end;
end.
